#!/bin/sh
# Kivo Generated shell script
'C:\FlexProp\bin/loadp2' -t -k -b 230400 'Blink.binary'
printf 'Press Enter to continue . . . '
read kivo_pause || true
