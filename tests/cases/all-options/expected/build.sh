#!/bin/sh
# Kivo Generated shell script
'/home/p2 user/flexprop/bin/flexspin' -2 -L '/home/p2 user/flexprop/include' -L '/home/p2 user/lib'\''s' '-O2' '--fixed' '--fcache=200' 'Blink.c'
kivo_status=$?
printf 'Press Enter to continue . . . '
read kivo_pause || true
exit $kivo_status
