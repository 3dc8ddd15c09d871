#!/usr/bin/env bash
# Checks that every library includes and links only the libraries below it: a lower folder never includes a
# header of a higher one, nor links its library. The table is the architecture; a change to it is a design
# change. Prints each offending include or link and exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

# folder: the folders its sources may include (besides itself) / its CMake library name.
declare -A allowed=(
  [rx]=""
  [core]="rx"
  [eval]=""
  [storage]="core rx"
  [net]="core rx"
  [platform]="core rx"
  [platform/sim]="platform core rx"
  [platform/linux]="platform core rx"
  [model]="platform core rx"
  [engine]="model platform core rx"
  [windowbinding]="engine model platform storage core rx"
  [clip]="engine model platform storage eval core rx"
  [catalogue]="windowbinding clip engine model platform storage core rx"
  [ui/base]="platform core rx"
  [ui/prefs]="ui/base catalogue windowbinding clip engine model platform storage core rx"
  [ui/overlays]="ui/base catalogue windowbinding clip engine model platform storage net core rx"
  [helper]="core rx"
  [app]="*"
)
declare -A library=(
  [rx]=vandrel_rx [core]=vandrel_core [eval]=vandrel_eval [storage]=vandrel_storage [net]=vandrel_net [platform]=vandrel_platform
  [platform/sim]=vandrel_platform_sim [platform/linux]=vandrel_platform_linux [model]=vandrel_model
  [engine]=vandrel_engine [windowbinding]=vandrel_windowbinding [clip]=vandrel_clip [catalogue]=vandrel_catalogue
  [ui/base]=vandrel_ui_base [ui/prefs]=vandrel_prefs [ui/overlays]=vandrel_overlays [helper]=vandrel_helper
  [app]=vandrel_app
)
declare -A folderOf=()
for f in "${!library[@]}"; do folderOf[${library[$f]}]=$f; done

# The folder a path or include belongs to: platform/sim and platform/linux are folders of their own.
folder_of() {
  case "$1" in
    platform/sim/*) echo platform/sim ;;
    platform/linux/*) echo platform/linux ;;
    ui/*/*) echo "${1%%/*}/$(echo "$1" | cut -d/ -f2)" ;;
    */*) echo "${1%%/*}" ;;
  esac
}

may_use() {  # folder used
  local folder=$1 used=$2
  [[ $folder == "$used" ]] && return 0
  [[ ${allowed[$folder]} == "*" ]] && return 0
  [[ " ${allowed[$folder]} " == *" $used "* ]]
}

bad=0
while IFS= read -r file; do
  rel=${file#src/}
  folder=$(folder_of "$rel")
  [[ -n ${allowed[$folder]+x} ]] || { echo "check-layers: $file: folder $folder is not in the table"; bad=1; continue; }
  while IFS= read -r include; do
    used=$(folder_of "$include")
    [[ -n $used && -n ${allowed[$used]+x} ]] || continue
    if ! may_use "$folder" "$used"; then
      echo "check-layers: $file includes \"$include\": $folder may not use $used"
      bad=1
    fi
  done < <(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/p' "$file")
done < <(git ls-files -co --exclude-standard 'src/*.h' 'src/*.cpp')

while IFS= read -r cmake; do
  rel=${cmake#src/}
  folder=$(folder_of "$rel")
  [[ -n ${allowed[$folder]+x} ]] || continue
  for lib in $(grep -oE 'vandrel_[a-z_]+' "$cmake" | sort -u); do
    used=${folderOf[$lib]:-}
    [[ -n $used ]] || continue
    if ! may_use "$folder" "$used"; then
      echo "check-layers: $cmake links $lib: $folder may not use $used"
      bad=1
    fi
  done
done < <(git ls-files -co --exclude-standard 'src/*CMakeLists.txt')

[[ $bad -eq 0 ]] && echo "check-layers: every library includes and links only the ones below it"
exit $bad
