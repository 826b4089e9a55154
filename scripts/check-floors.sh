#!/usr/bin/env bash
# The floors of src/: a folder includes headers only from itself and from the
# folders on floors below it; the core folders use the standard library only.
#
# Floors, lowest first (folders on one floor include nothing of each other):
#   0  settings          the settings record, the profile (INI) file reader
#   1  frontend sdr      edges, clocks, the front end; IQ formats and the FM receiver
#   2  output            panes, filters, statistics, page records
#   3  pocsag            the BCH corrector (FLEX uses it) and the POCSAG decoder
#   4  flex gsc          the other two decoders
#   5  feeds             queue, joiner, dedupe, [Feeds] settings; the network clients
#   6  platform          POSIX and device layers behind the core's interfaces
#   7  session           one run of the program: the monitor (one decoding channel),
#                        the settings file, the settings in force, inputs, records, feeds
#   8  shell             the console and desktop fronts, thin drivers of a session
# sender (vantry) stands apart: it includes nothing of the monitor and the
# monitor nothing of it.
#
# Core (standard library only, no <….h> system header): settings, frontend, sdr,
# output, pocsag, flex, gsc, the feeds core (every file of feeds/ but the two
# network clients) and the monitor (session/monitor.*).
#
# Usage: scripts/check-floors.sh [source dir]; exits 1 and names every breach.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

declare -A floor=(
  [settings]=0 [frontend]=1 [sdr]=1 [output]=2 [pocsag]=3 [flex]=4 [gsc]=4
  [feeds]=5 [platform]=6 [session]=7 [shell]=8
)
core_folders="settings frontend sdr output pocsag flex gsc"
core_exempt='^src/feeds/(mqtt_feed|pagermon_feed)\.(cpp|h)$'

bad=0
breach() {
  echo "check-floors: $*"
  bad=1
}

for dir in src/*/; do
  folder=$(basename "$dir")
  if [[ $folder != sender && -z ${floor[$folder]+set} ]]; then
    breach "src/$folder/ has no floor: add it to scripts/check-floors.sh"
  fi
done

# One grep over the tree: file:line:folder for every include "folder/…".
while IFS=: read -r file line used; do
  folder=${file#src/}
  folder=${folder%%/*}
  if [[ $used == "$folder" ]]; then
    continue
  elif [[ $folder == sender || $used == sender ]]; then
    breach "$file:$line includes $used/: vantry and the monitor share nothing"
  elif [[ -z ${floor[$used]+set} ]]; then
    continue  # not a folder of src/ (a header of a library)
  elif ((floor[$used] >= floor[$folder])); then
    breach "$file:$line includes $used/ (floor ${floor[$used]}) from $folder/ (floor ${floor[$folder]})"
  fi
done < <(grep -rno --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"/]*/' src |
         sed -E 's/^([^:]*):([0-9]+):.*"([^"/]*)\/$/\1:\2:\3/')

core_files() {
  for folder in $core_folders; do
    [[ -d src/$folder ]] && find "src/$folder" -name '*.h' -o -name '*.cpp'
  done
  find src/feeds -name '*.h' -o -name '*.cpp' | grep -Ev "$core_exempt"
  find src/session -maxdepth 1 -name 'monitor.*'
}
while IFS=: read -r file line header; do
  breach "$file:$line includes a system header ($header): the core uses the standard library only"
done < <(core_files | sort | xargs grep -no '^[[:space:]]*#[[:space:]]*include[[:space:]]*<[^>]*\.h>' /dev/null |
         sed -E 's/^([^:]*):([0-9]+):.*(<[^>]*>)$/\1:\2:\3/')

if ((bad)); then
  echo "check-floors: the floors are written at the top of scripts/check-floors.sh"
  exit 1
fi
echo "check-floors: every include keeps its floor"
