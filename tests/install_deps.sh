#!/usr/bin/env bash
# tests/install_deps.sh [PACKAGE...]: installs on Debian or Ubuntu whatever the build and the
# tests need and the machine lacks (and the packages named, for CI), through sudo unless run as
# root. The list is the one place that names them; README.md and .ci/run rely on it.
set -euo pipefail

Packages=(
  cmake g++ make      # the build
  zlib1g-dev libzstd-dev # gzip and zstd sources (a build without them refuses such sources)
  gzip zstd           # compressed sources made at test time and in the benchmark
  libgtest-dev        # the unit tests
  libxml2-utils       # xmllint: documents are checked for well-formedness
  libxml2-dev         # the conversion fuzz target's replay parses documents with libxml2
  python3             # the benchmark smoke test and the manual's message check
  groff               # the PDF manual (groff-base alone cannot write PDF)
  dpkg-dev lintian    # the Debian package: its dependencies and its check
  time                # peak memory of the hostile-input tests
  "$@"
)
Missing=()
for P in "${Packages[@]}"; do
  # a removed package whose configuration files stay is still listed: ask for its state
  [ "$(dpkg-query -W -f='${Status}' "$P" 2>/dev/null)" = "install ok installed" ] || Missing+=("$P")
done
[ ${#Missing[@]} -eq 0 ] && exit 0
echo "installing: ${Missing[*]}"
Sudo=()
[ "$(id -u)" -eq 0 ] || Sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${Sudo[@]}" apt-get update -qq
"${Sudo[@]}" apt-get install -y -qq --no-install-recommends "${Missing[@]}"
