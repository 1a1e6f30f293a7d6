#!/bin/sh
# Flashes a controller through its serial bootloader (AVR109 protocol) with avrdude.
#
#   up-bin.sh PORT IMAGE
#
# The center reads the flashing tool's exit code from the last line, which must be ':' and the
# code. A packager may change the part or the tool here without touching the program.
PART=m32u4
PORT=$1
IMAGE=$2

avrdude -p "$PART" -c avr109 -P "$PORT" -b 57600 -U "flash:w:$IMAGE:r" 2>&1
status=$?
echo ":$status"
