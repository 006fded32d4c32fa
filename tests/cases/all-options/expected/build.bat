REM Kivo Generated Batch file
/home/p2 user/flexprop/bin\FlexSpin.exe -2 -L /home/p2 user/flexprop/bin\include  -L /home/p2 user/lib's -O2 --fixed --fcache=200 Blink.c
Pause 
