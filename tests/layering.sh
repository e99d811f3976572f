#!/usr/bin/env bash
# The source tree keeps its shape: the shared layer includes no feature and not the window; features
# include the shared layer and themselves (imaging, which stages what the others prepare, may include
# boot and disk); nothing includes app/ but app/; no thread is detached; no source file grows past 450
# lines; a worker's job (a file named *Worker.cpp or *Worker.h) never includes the window port, it publishes
# what the window draws; the compiler refuses a control name the layout lacks.
#   usage: layering.sh SOURCE_ROOT [TEST_FILES_ROOT]
set -uo pipefail
src=$1/src
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

allowed() {  # folder -> the folders it may include besides the shared layer and itself
    case $1 in
        base | text | pe | platform | resources) echo "" ;;
        imaging) echo "boot disk" ;;
        *) echo "" ;;
    esac
}
shared="base text pe platform resources"

for dir in "$src"/*/; do
    folder=$(basename "$dir")
    [ "$folder" = app ] && continue
    while IFS=: read -r file line text; do
        included=$(sed -n 's/.*#include "\([^/"]*\)\/.*/\1/p' <<<"$text")
        [ -z "$included" ] || [ "$included" = "$folder" ] && continue
        case " $shared " in *" $included "*)
            case " $shared " in *" $folder "*)
                # Within the shared layer: base depends on nothing else of ours.
                [ "$folder" = base ] && fail "$file:$line includes $included/ from the base layer"
                ;;
            esac
            continue ;;
        esac
        case " $(allowed "$folder") " in *" $included "*) continue ;; esac
        fail "$file:$line: $folder/ includes $included/"
    done < <(grep -rn '#include "' "$dir" --include='*.h' --include='*.cpp' --include='*.in')
done

while IFS= read -r hit; do fail "a detached thread: $hit"; done < <(grep -rn '\.detach()' "$src" --include='*.cpp' --include='*.h')

while IFS= read -r file; do
    lines=$(wc -l <"$file")
    [ "$lines" -gt 450 ] && fail "$file has $lines lines"
done < <(find "$src" -name '*.cpp' -o -name '*.h')

# Workers take their inputs by value and publish snapshots; the window thread draws them.
while IFS= read -r file; do
    grep -qE '#include "(base/WindowPort|app/)' "$file" && fail "$file: a worker includes the window port"
    grep -qE '\bWindowPort\b' "$file" && fail "$file: a worker names the window port"
done < <(find "$src" -name '*Worker.cpp' -o -name '*Worker.h')

# The engine's init sources its scripts into one shell: a function defined in two of them is silently the last
# one's (apply.sh's le64 once took the place of gpt.sh's and broke every GPT disk).
engine=$src/boot/engine
while IFS= read -r twice; do fail "engine scripts define $twice more than once"; done < <(
    for f in "$engine"/init "$engine"/*.sh; do
        case $(basename "$f") in build-*.sh | packages.sh | debs.sh) continue ;; esac
        sed -n 's/^\([A-Za-z_][A-Za-z_0-9]*\)() *{.*/\1/p' "$f"
    done | sort | uniq -d)

# A control is made only from a name of the layout: a misspelt one must stop the build.
probe=${2:-$1/tests}/layering/control-name.cpp
compiler=${CXX:-c++}
if command -v "$compiler" >/dev/null; then
    "$compiler" -std=c++20 -fsyntax-only -I"$src" "$probe" ||
        fail "a control of the layout does not compile ($probe)"
    if out=$("$compiler" -std=c++20 -fsyntax-only -DKX_MISSPELT -I"$src" "$probe" 2>&1); then
        fail "a control name the layout lacks compiles ($probe)"
    elif ! grep -q 'not a control of the main window' <<<"$out"; then
        fail "a misspelt control name fails for another reason: $out"
    fi
else
    fail "no C++ compiler ($compiler) to check the control names with"
fi

[ $status = 0 ] && echo "the source tree keeps its layers"
exit $status
