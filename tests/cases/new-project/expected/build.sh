#!/bin/sh
# Kivo Generated shell script
'C:\FlexProp\bin/flexspin' -2 -L 'C:\FlexProp/include' 'Blink.c'
kivo_status=$?
printf 'Press Enter to continue . . . '
read kivo_pause || true
exit $kivo_status
