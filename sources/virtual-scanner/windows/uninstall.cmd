@echo off
rem Takes the virtual KV-S scanner out of the Windows TWAIN folder again and puts back the
rem sane.ds that install.cmd found there, if any. On Windows, run this as administrator.
setlocal
set "twain=%WINDIR%\twain_32"
set "marker=%twain%\tovik-virtual-scanner.txt"

if not exist "%marker%" goto absent
del /f "%twain%\sane.ds" >nul 2>&1
if exist "%twain%\sane.ds" goto denied
if exist "%twain%\virtual-scanner.ini" del /f "%twain%\virtual-scanner.ini" >nul 2>&1
if not exist "%twain%\sane.ds.before-tovik" goto done
move /y "%twain%\sane.ds.before-tovik" "%twain%\sane.ds" >nul
if errorlevel 1 goto denied

:done
del /f "%marker%" >nul 2>&1
echo The virtual scanner is removed from %twain%.
exit /b 0

:absent
echo The virtual scanner is not installed in %twain%: nothing to do.
exit /b 0

:denied
echo Could not change %twain%.
echo Run uninstall.cmd as administrator (right-click, "Run as administrator").
exit /b 1
