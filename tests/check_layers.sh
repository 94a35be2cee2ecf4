#!/usr/bin/env bash
# Checks that every include in src/ points down the layers: a file may
# include its own folder and the folders its layer lists below, nothing
# else. Usage: check_layers.sh SRC_DIR
set -euo pipefail
src=${1:?usage: check_layers.sh SRC_DIR}

# Folder (most specific first) and the folders its files may include.
rules=(
  "services/:services/"
  "templates/:templates/ services/"
  "clean/:clean/ templates/ services/"
  "convert/model/:convert/model/ services/"
  "convert/common/:convert/common/ convert/model/ services/"
  "convert/container/:convert/container/ services/"
  "convert/detect/:convert/detect/ convert/container/ services/"
  "convert/formats/:SAME_FORMAT convert/common/ convert/model/ convert/container/ convert/detect/ services/"
  "convert/pictures/:convert/pictures/ convert/common/ convert/model/ services/"
  "convert/writers/:convert/writers/ convert/common/ convert/model/ services/"
  "convert/output/:convert/output/ convert/writers/html_text.h services/"
  "convert/libreoffice/:convert/libreoffice/ convert/output/ convert/writers/html_text.h convert/common/ services/"
  "convert/:convert/ clean/ templates/ services/"
  "app/:app/ convert/ clean/ templates/ services/"
  "ui/main/:ui/main/ app/ convert/ clean/ templates/ services/"
  "ui/manage/:ui/ app/ convert/ clean/ templates/ services/"
  ":ui/ app/ convert/ clean/ templates/ services/"
)

faults=0
while IFS= read -r -d '' file; do
  rel=${file#"$src"/}
  allowed=
  for rule in "${rules[@]}"; do
    folder=${rule%%:*}
    if [[ $rel == "$folder"* ]]; then
      allowed=${rule#*:}
      break
    fi
  done
  # A reader may include its own format's folder only.
  if [[ $allowed == *SAME_FORMAT* ]]; then
    format=$(cut -d/ -f1-3 <<<"$rel")
    allowed=${allowed/SAME_FORMAT/$format/}
  fi
  while IFS= read -r include; do
    ok=0
    for prefix in $allowed; do
      [[ $include == "$prefix"* ]] && ok=1 && break
    done
    if [[ $ok == 0 ]]; then
      echo "$rel includes $include"
      faults=$((faults + 1))
    fi
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(find "$src" -name '*.h' -print0 -o -name '*.cpp' -print0)

if [[ $faults -gt 0 ]]; then
  echo "$faults includes point against the layers" >&2
  exit 1
fi
