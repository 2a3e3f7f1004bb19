#!/bin/sh
# Stands in for the command that stops the database server: it only writes a note here.
echo "$(date '+%Y-%m-%d %H:%M:%S') the database would be stopped now" >>backup-note.txt
