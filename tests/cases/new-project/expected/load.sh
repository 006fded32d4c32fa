#!/bin/sh
# Kivo Generated shell script
'C:\FlexProp\bin/loadp2' -t -k 'Blink.binary'
kivo_status=$?
printf 'Press Enter to continue . . . '
read kivo_pause || true
exit $kivo_status
