#!/usr/bin/env bash
# Prints deb-src entries (deb822) for the binary Debian sources this machine is configured with,
# for its own release only: the same archive, suite, components and key, so a machine that has
# its own mirror, or only that one, fetches source packages from where it fetches the rest.
set -euo pipefail
. /etc/os-release
codename=${VERSION_CODENAME:?no release code name in /etc/os-release}
shopt -s nullglob
{
  # deb822 files: one stanza per blank-line-separated block.
  for f in /etc/apt/sources.list.d/*.sources; do
    [ "$(basename "$f")" = corvalite-deb-src.sources ] && continue
    awk -v RS= -v want="$codename" '
      {
        types = ""; uris = ""; suites = ""; comps = ""; key = ""
        n = split($0, lines, "\n")
        for (i = 1; i <= n; i++) {
          line = lines[i]
          if (line ~ /^#/) continue
          if (match(line, /^[A-Za-z-]+:/)) {
            field = tolower(substr(line, 1, RLENGTH - 1)); value = substr(line, RLENGTH + 1)
            gsub(/^[ \t]+|[ \t]+$/, "", value)
            if (field == "types") types = value
            else if (field == "uris") uris = value
            else if (field == "suites") suites = value
            else if (field == "components") comps = value
            else if (field == "signed-by") key = value
          }
        }
        if (types !~ /(^| )deb( |$)/ || comps !~ /(^| )main( |$)/) next
        if ((" " suites " ") !~ (" " want " ")) next
        printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n", uris, want, comps
        if (key != "") printf "Signed-By: %s\n", key
        print ""
      }' "$f"
  done
  # one-line files: deb [options] URI suite components...
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v want="$codename" '
      $1 == "deb" {
        i = 2; opts = ""
        if ($2 ~ /^\[/) { while (i <= NF && $i !~ /\]$/) { opts = opts " " $i; i++ } opts = opts " " $i; i++ }
        uri = $i; suite = $(i + 1)
        if (suite != want) next
        comps = ""; for (j = i + 2; j <= NF; j++) comps = comps " " $j
        if (comps !~ / main( |$)/) next
        key = ""
        if (match(opts, /signed-by=[^] ]+/)) key = substr(opts, RSTART + 10, RLENGTH - 10)
        printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:%s\n", uri, suite, comps
        if (key != "") printf "Signed-By: %s\n", key
        print ""
      }' "$f"
  done
} | awk 'BEGIN { RS = ""; ORS = "\n\n" } !seen[$0]++'
