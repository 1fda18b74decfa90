#!/bin/bash
# Runs the comparison with Node's URL; without node it is skipped (77), on CI
# (CI set) a missing node is a failure.
if ! command -v node >/dev/null; then
  if [[ -n "${CI:-}" ]]; then
    echo "node is not installed (required on CI)" >&2
    exit 1
  fi
  echo "node is not installed: skipped" >&2
  exit 77
fi
exec node "$(dirname "$0")/web_url_vs_node.js" "$@"
