/* FolderCore.dll: the folder sample's own DLL. The app imports it, so Windows loads it from the
   app's folder before the app's first instruction runs. */
__declspec(dllexport) const char *folder_core_greeting(void) { return "FolderCore.dll says hello"; }
