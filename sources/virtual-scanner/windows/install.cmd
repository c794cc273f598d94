@echo off
rem Puts the virtual KV-S scanner (sane.ds and its scenario virtual-scanner.ini) into the Windows
rem TWAIN folder, where TovikScan and any other 32-bit TWAIN program find it.
rem A sane.ds already there that is not ours is kept as sane.ds.before-tovik; uninstall.cmd puts
rem it back. On Windows, run this as administrator (right-click, "Run as administrator").
setlocal
set "here=%~dp0"
set "twain=%WINDIR%\twain_32"
set "marker=%twain%\tovik-virtual-scanner.txt"

if not exist "%here%sane.ds" goto missing
if not exist "%here%virtual-scanner.ini" goto missing
if not exist "%twain%\" mkdir "%twain%"
if not exist "%twain%\" goto denied

if exist "%marker%" goto copy
if not exist "%twain%\sane.ds" goto copy
copy /y "%twain%\sane.ds" "%twain%\sane.ds.before-tovik" >nul
if errorlevel 1 goto denied

:copy
copy /y "%here%sane.ds" "%twain%\sane.ds" >nul
if errorlevel 1 goto denied
copy /y "%here%virtual-scanner.ini" "%twain%\virtual-scanner.ini" >nul
if errorlevel 1 goto denied
echo Installed by TovikScan's VirtualScanner\install.cmd; uninstall.cmd removes it.> "%marker%"
if errorlevel 1 goto denied
echo The virtual scanner "KV-S1027C Virtual" is installed in %twain%.
echo Start TovikScan.exe: it scans from the virtual feeder.
exit /b 0

:missing
echo sane.ds or virtual-scanner.ini is missing next to install.cmd: unpack the whole zip first.
exit /b 1

:denied
echo Could not write to %twain%.
echo Run install.cmd as administrator (right-click, "Run as administrator").
exit /b 1
