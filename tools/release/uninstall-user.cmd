@echo off
rem Removes the current user's registration of the Orvane shell extension.
call "%~dp0uninstall.cmd" /user
exit /b %errorlevel%
