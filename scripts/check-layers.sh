#!/usr/bin/env bash
# Checks the folders of src/ against the layering of the sources: reads every
# `#include "FOLDER/..."` line of src/*/*.h and src/*/*.cc (a generated
# header such as "typo/typo_literals.h" counts for its folder) and fails when
#   - two folders include each other, directly or through other folders (a
#     cycle);
#   - a folder includes a front end (cli, app) that is not itself;
#   - a folder other than the front ends and tools includes frontend, the
#     library the front ends share (it stands above the engine);
#   - a folder other than the front ends includes tools (the engine, and
#     frontend, which the dialog links as well);
#   - a front end includes a header of the engine's folders other than those
#     of its front-end interface (FRONT_END_API below): the job API, the batch,
#     the places of the tables and the store, the output files' temporaries,
#     shown paths and the conversion between encodings. What else a command of the command line needs is the tools'
#     to include.
#
#   scripts/check-layers.sh [--graph] [SRC]
#
# SRC is the source folder (default: src beside this script). --graph also
# prints which folder includes which. Exit status 0 when the layering holds,
# 1 when it does not (every fault is listed), 2 for bad usage.
set -euo pipefail

graph=0
if [ "${1:-}" = --graph ]; then
  graph=1
  shift
fi
src=${1:-"$(dirname "$0")/../src"}
[ $# -le 1 ] || { echo "usage: scripts/check-layers.sh [--graph] [SRC]" >&2; exit 2; }
[ -d "$src" ] || { echo "check-layers: no folder $src" >&2; exit 2; }
cd "$src"

# The headers of the engine's folders a front end may include: the job API
# (installed for embedders as well) and what the front ends set up around it.
FRONT_END_API="engine/job.h engine/version.h conversion/session.h engine/batch.h engine/job_places.h
  io/output_file.h io/shown_path.h io/encoding_converter.h"
ENGINE_FOLDERS="io tables typo conversion commands engine"

# One line per include of another folder: FROM TO FILE:LINE HEADER.
edges=$(
  for file in */*.h */*.cc; do
    [ -f "$file" ] || continue
    awk -v from="${file%%/*}" -v file="$file" '
      /^[ \t]*#[ \t]*include[ \t]*"/ {
        path = $0
        sub(/^[^"]*"/, "", path)
        sub(/".*$/, "", path)
        n = index(path, "/")
        if (n > 1) {
          to = substr(path, 1, n - 1)
          if (to != from) print from, to, file ":" FNR, path
        }
      }' "$file"
  done
)

printf '%s\n' "$edges" | awk -v graph="$graph" -v api="$FRONT_END_API" -v engine="$ENGINE_FOLDERS" '
  BEGIN {
    n = split(api, words, /[ \t\n]+/)
    for (i = 1; i <= n; i++) if (words[i] != "") allowed[words[i]] = 1
    n = split(engine, words, " ")
    for (i = 1; i <= n; i++) engineFolder[words[i]] = 1
  }
  NF == 4 {
    key = $1 SUBSEP $2
    if (!(key in example)) example[key] = $3
    folder[$1] = 1
    folder[$2] = 1
    reach[key] = 1
    if (($2 == "cli" || $2 == "app") && $1 != $2) {
      print "check-layers: " $3 " includes the front end " $2 " (" $1 " may not)"
      faults++
    }
    if ($2 == "frontend" && $1 != "cli" && $1 != "app" && $1 != "tools") {
      print "check-layers: " $3 " includes frontend, the library of the front ends (" $1 " may not)"
      faults++
    }
    if ($2 == "tools" && $1 != "cli" && $1 != "app") {
      print "check-layers: " $3 " includes tools (the engine folder " $1 " may not)"
      faults++
    }
    if (($1 == "cli" || $1 == "app") && ($2 in engineFolder) && !($4 in allowed)) {
      print "check-layers: " $3 " includes " $4 " (a front end includes only the engine headers of FRONT_END_API)"
      faults++
    }
  }
  END {
    # Which folder reaches which, through any chain of includes.
    for (k in folder) for (i in folder) for (j in folder)
      if (((i, k) in reach) && ((k, j) in reach)) reach[i, j] = 1
    for (a in folder) for (b in folder) {
      if (a < b && ((a, b) in reach) && ((b, a) in reach)) {
        print "check-layers: " a " and " b " include each other (a cycle of folders)"
        faults++
      }
    }
    if (faults > 0) {
      # The direct includes within the cycles, one example each.
      for (key in example) {
        split(key, p, SUBSEP)
        if (((p[2], p[1]) in reach)) print "  " p[1] " -> " p[2] ": " example[key]
      }
    }
    if (graph) {
      n = 0
      for (f in folder) names[++n] = f
      # Sorted by name, for a stable listing.
      for (i = 2; i <= n; i++)
        for (j = i; j > 1 && names[j - 1] > names[j]; j--) { t = names[j]; names[j] = names[j - 1]; names[j - 1] = t }
      for (i = 1; i <= n; i++) {
        line = ""
        for (j = 1; j <= n; j++) if ((names[i], names[j]) in example) line = line " " names[j]
        print names[i] " ->" (line == "" ? " (nothing)" : line)
      }
    }
    exit faults > 0 ? 1 : 0
  }'
