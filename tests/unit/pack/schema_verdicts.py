"""Judges app manifests by docs/app-manifest.schema.json, for the packer's agreement test.

Usage: schema_verdicts.py SCHEMA MANIFEST...
Prints one line per manifest, in order: "valid", or "invalid: " and the first reason.
Exits 2 when the schema itself isn't a valid draft 2020-12 schema.
"""
import json
import sys

import jsonschema


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    validator_class = jsonschema.validators.validator_for(schema)
    if validator_class is not jsonschema.Draft202012Validator:
        print("the schema doesn't declare draft 2020-12", file=sys.stderr)
        return 2
    try:
        validator_class.check_schema(schema)
    except jsonschema.SchemaError as error:
        print("the schema is invalid: %s" % error.message, file=sys.stderr)
        return 2
    validator = validator_class(schema)
    for path in sys.argv[2:]:
        with open(path, encoding="utf-8") as f:
            manifest = json.load(f)
        error = jsonschema.exceptions.best_match(validator.iter_errors(manifest))
        print("valid" if error is None else "invalid: " + error.message.replace("\n", " "))
    return 0


if __name__ == "__main__":
    sys.exit(main())
