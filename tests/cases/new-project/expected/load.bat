REM Kivo Generated Batch file
C:\FlexProp\bin\loadp2.exe  -t -k -b 230400  Blink.binary
Pause 
