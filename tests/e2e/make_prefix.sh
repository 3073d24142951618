#!/bin/bash
# The CTest fixture: the base Wine prefix that every e2e test copies, made once per ctest run.
source "$(dirname "$0")/lib.sh"
started=$SECONDS
e2e_make_prefix "${PLINTH_E2E_ROOT:?}/prefix-base"
e2e_log "base prefix ready in $((SECONDS - started)) s: $PLINTH_E2E_ROOT/prefix-base"
