@echo off
rem Registers the Orvane shell extension for the current user only; no
rem administrator rights needed.
rem Started, not called: a call would expand any % in the folder's name a
rem second time. Its exit code is this script's.
"%~dp0install.cmd" /user
