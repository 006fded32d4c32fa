REM Kivo Generated Batch file
/home/p2 user/flexprop/bin\loadp2.exe  -t -k -9 /home/p2 user/share -b 2000000 -SINGLE Blink.binary
Pause 
