"""Judges winget manifests by the published 1.10.0 schemas, for the packer's winget test.

Usage: winget_verdicts.py SCHEMA_FOLDER MANIFEST...
Each manifest (YAML) is judged by the schema its ManifestType names. Prints one line per
manifest, in order: "valid", or "invalid: " and the first reason, then a tab and the manifest as
JSON (so that a test sees what a YAML reader makes of each value).
"""
import json
import os
import sys

import jsonschema
import yaml

SCHEMAS = {
    "version": "manifest.version.1.10.0.json",
    "installer": "manifest.installer.1.10.0.json",
    "defaultLocale": "manifest.defaultLocale.1.10.0.json",
}


def main():
    folder = sys.argv[1]
    for path in sys.argv[2:]:
        with open(path, encoding="utf-8") as f:
            manifest = yaml.safe_load(f)
        kind = manifest.get("ManifestType") if isinstance(manifest, dict) else None
        if kind not in SCHEMAS:
            print("invalid: ManifestType %r\t{}" % kind)
            continue
        with open(os.path.join(folder, SCHEMAS[kind]), encoding="utf-8-sig") as f:
            schema = json.load(f)
        validator = jsonschema.validators.validator_for(schema)(schema)
        error = jsonschema.exceptions.best_match(validator.iter_errors(manifest))
        verdict = "valid" if error is None else "invalid: " + error.message.replace("\n", " ")
        print(verdict + "\t" + json.dumps(manifest, sort_keys=True))
    return 0


if __name__ == "__main__":
    sys.exit(main())
