# The Windows installer's option "Download instruments automatically when they are connected":
# the component `watcher` (tavon-watch.exe, installed with COMPONENT watcher) beside the
# component `programs` (everything else), and the shortcut in the user's Startup folder that the
# option adds and the uninstaller removes. Selected by default, so a silent install (/S) has it;
# unticked, neither the program nor the shortcut is installed. Included by Packaging.cmake before
# include(CPack).
include(CPackComponent)
set(CPACK_COMPONENTS_ALL programs watcher)
cpack_add_component(programs DISPLAY_NAME "Tavon Datalogging" REQUIRED
                    DESCRIPTION "The program, tavon-datalog for the command line, and the simulated instrument.")
cpack_add_component(watcher
                    DISPLAY_NAME "Download instruments automatically when they are connected"
                    DESCRIPTION "Starts tavon-watch at logon, without a window: every instrument that connects is downloaded, archived, and the reports of its days filed in the Tavon folder of the documents. Its icon in the notification area shows the last events and quits.")
# The option's shortcut starts tavon-watch in the folder the program's own Start-menu entry starts
# in (so both read the one Settings.ini and its [Watch] keys), and goes to the Startup folder of
# the user who installs; the folders then go back to all users' where the installer chose them.
# The watcher's section comes before this one, so its index is known here.
string(CONCAT CPACK_NSIS_EXTRA_INSTALL_COMMANDS
       "!insertmacro SectionFlagIsSet \${watcher} \${SF_SELECTED} tavonWatchStartup tavonWatchDone\n"
       "tavonWatchStartup:\n"
       "CreateDirectory '$DOCUMENTS\\Tavon Datalogging'\n"
       "SetOutPath '$DOCUMENTS\\Tavon Datalogging'\n"
       "SetShellVarContext current\n"
       "CreateShortCut '$SMSTARTUP\\Tavon Datalogging watcher.lnk' '$INSTDIR\\tavon-watch.exe' '--quiet'\n"
       "StrCmp $SV_ALLUSERS 'AllUsers' 0 +2\n"
       "SetShellVarContext all\n"
       "SetOutPath '$INSTDIR'\n"
       "tavonWatchDone:")
# The uninstaller's folders are all users' when it runs as an administrator (as it chose in
# un.onInit); the shortcut is in the user's own.
string(CONCAT CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS
       "SetShellVarContext current\n"
       "Delete '$SMSTARTUP\\Tavon Datalogging watcher.lnk'\n"
       "ClearErrors\n"
       "UserInfo::GetAccountType\n"
       "IfErrors tavonWatchGone\n"
       "Pop $0\n"
       "StrCmp $0 'Admin' tavonWatchAll\n"
       "StrCmp $0 'Power' tavonWatchAll tavonWatchGone\n"
       "tavonWatchAll:\n"
       "SetShellVarContext all\n"
       "tavonWatchGone:")
