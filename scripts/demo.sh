#!/usr/bin/env bash
# Builds the demo database and converts it with tslagent (not yet wired up).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
echo "not yet: the agent does not convert yet"
