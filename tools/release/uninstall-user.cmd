@echo off
rem Removes the current user's registration of the Orvane shell extension.
rem Started, not called: a call would expand any % in the folder's name a
rem second time. Its exit code is this script's.
"%~dp0uninstall.cmd" /user
