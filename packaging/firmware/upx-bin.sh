#!/bin/sh
# Flashes a controller built on the SAM3X8E (its firmware calls itself "sam3x8edue") with bossac.
#
#   upx-bin.sh PORT IMAGE
#
# The center reads the flashing tool's exit code from the last line, which must be ':' and the
# code.
PORT=$1
IMAGE=$2

bossac -i -d --port="$PORT" -U false -e -w -v -b "$IMAGE" -R 2>&1
status=$?
echo ":$status"
