#!/bin/sh
# Kivo Generated shell script
'/home/p2 user/flexprop/bin/loadp2' -t -k -9 '/home/p2 user/share' -b '2000000' '-SINGLE' 'Blink.binary'
kivo_status=$?
printf 'Press Enter to continue . . . '
read kivo_pause || true
exit $kivo_status
