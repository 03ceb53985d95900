@echo off
rem Registers the Orvane shell extension for the current user only; no
rem administrator rights needed.
call "%~dp0install.cmd" /user
exit /b %errorlevel%
