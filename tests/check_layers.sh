#!/bin/sh
# The layers of src/ (and the page's interface in web/), checked on the includes of every source: each area includes only
# the areas below it; the Qt-free areas include no Qt; the machine core and the devices
# do no host file I/O (that is lvov_host's, and storage reads the files).
# Usage: check_layers.sh SOURCE_DIR. Prints every offending line; fails when there is one.
cd "$1/src" || exit 2
status=0

# allow AREA_FILES PATTERN: the project includes ("dir/file.h") of the files must match PATTERN.
allow() {
    files=$1 pattern=$2
    bad=$(grep -Hn '^#include "' $files | grep -Ev "#include \"($pattern)")
    if [ -n "$bad" ]; then
        printf '%s\n' "$bad" | sed 's/$/   <- reaches outside its layer/'
        status=1
    fi
}

# forbid AREA_FILES PATTERN WHY: no system include of the files matches PATTERN.
forbid() {
    files=$1 pattern=$2 why=$3
    bad=$(grep -HnE "^#include <($pattern)" $files)
    if [ -n "$bad" ]; then
        printf '%s\n' "$bad" | sed "s|\$|   <- $why|"
        status=1
    fi
}

core=$(ls core/*.cpp core/*.h)
host=$(ls host/*.cpp host/*.h)
devices=$(ls devices/*.cpp devices/*.h | grep -v '^devices/host_')
storage=$(ls storage/*.cpp storage/*.h)
asm=$(ls asm/*.cpp asm/*.h)
debugger_tools=$(ls debugger/debugger_tools.*)
session=$(ls app/command_line.* app/data_dirs.* app/emulator.* app/exec_control.* app/pause_slot_throttle.* app/session.*)

allow "$core" 'core/'
allow "$host" 'host/|core/errors\.h'
allow "$devices" 'devices/|core/'
allow "$storage" 'storage/|devices/|host/|core/'
# The assembler writes tape images: the header-only tape layout is shared with storage.
allow "$asm" 'asm/|core/|storage/tape_format\.h'
allow "$debugger_tools" 'debugger/debugger_tools\.h|core/'
allow "$session" 'app/(command_line|data_dirs|emulator|exec_control|pause_slot_throttle|session)\.h|debugger/debugger_tools\.h|storage/|devices/|host/|core/'

host_io='filesystem|fstream|fcntl\.h|unistd\.h|sys/stat\.h|dirent\.h|io\.h'
forbid "$core" "$host_io" 'host file I/O belongs in host/ and storage/'
forbid "$devices" "$host_io" 'host file I/O belongs in host/ and storage/'
forbid "$core $host $devices $storage $asm $debugger_tools $session" 'Q|qt' 'Qt in a Qt-free library'

# The page's C interface (web/) stands beside the windows: the session and what it is made
# of, no Qt.
web=$(ls ../web/*.cpp)
allow "$web" 'app/(data_dirs|emulator|exec_control|session)\.h|storage/|devices/|core/'
forbid "$web" 'Q|qt' 'Qt in the page'

exit $status
