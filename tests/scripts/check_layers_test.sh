#!/usr/bin/env bash
# scripts/check-layers on small trees made for the purpose: a tree that keeps to the layers
# passes, and each kind of include against them fails, named by file and line.
# Usage: check_layers_test.sh PATH/TO/check-layers
set -euo pipefail
check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
failures=0

# put FILE LINE...: writes the file and adds it to the tree's index.
put() {
    local file=$1
    shift
    mkdir -p "$tree/$(dirname "$file")"
    printf '%s\n' "$@" >"$tree/$file"
    git -C "$tree" add "$file"
}

expect() {  # expect pass|fail TEXT-IN-OUTPUT DESCRIPTION
    local want=$1 text=$2 what=$3 out status=0
    out=$("$check" "$tree" 2>&1) || status=$?
    if [[ $want == pass && $status -ne 0 ]] || [[ $want == fail && $status -eq 0 ]] ||
        [[ $out != *"$text"* ]]; then
        echo "FAILED: $what"
        echo "$out" | sed 's/^/    /'
        failures=$((failures + 1))
    fi
}

git -C "$tree" init -q
put jet/base/bytes.h '#pragma once'
put jet/store/row_codec.cpp '#include "jet/base/bytes.h"' '#include <vector>'
put jet/sql/update.cpp '#include "jet/store/row_codec.h"' '#include "jet/database.h"'
put db/connection.cpp '#include "jet/sql/execute.h"' '#include "core/failure.h"'
put steps/form2.cpp '#include "app/forms.h"' '#include "steps/form3.h"'
expect pass "keep to the layers" "a tree within its layers"

put jet/store/row_codec.cpp '#include "jet/base/bytes.h"' '#include "jet/sql/ast.h"'
expect fail "jet/store/row_codec.cpp:2: includes jet/sql/ast.h (sql), which the store layer" \
    "an include that reaches up"
put jet/store/row_codec.cpp '#include "jet/base/bytes.h"'

put jet/check/check.cpp '#include "jet/sql/parser.h"'
expect fail "jet/check/check.cpp:1: includes jet/sql/parser.h (sql)" "a sideways include"
git -C "$tree" rm -q --cached jet/check/check.cpp

put db/recordset.cpp '#include "jet/store/table_scan.h"'
expect fail "db/recordset.cpp:1: includes jet/store/table_scan.h (store)" \
    "the program reaching past the engine's face"
git -C "$tree" rm -q --cached db/recordset.cpp

put math/form6.cpp '#include "steps/form4.h"'
expect fail "math/form6.cpp:1: includes steps/form4.h, another window" \
    "one window naming another"
git -C "$tree" rm -q --cached math/form6.cpp

put jet/newfolder/thing.cpp '#include "jet/base/bytes.h"'
expect fail "jet/newfolder/thing.cpp: a folder of the engine that no layer names" \
    "a folder the layers do not name"

if ((failures)); then
    echo "$failures case(s) failed"
    exit 1
fi
echo "check-layers: every case as expected"
