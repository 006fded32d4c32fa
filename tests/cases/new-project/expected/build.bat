REM Kivo Generated Batch file
C:\FlexProp\bin\FlexSpin.exe -2 -L C:\FlexProp\bin\include   Blink.c
Pause 
