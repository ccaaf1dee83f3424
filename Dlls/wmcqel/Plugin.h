// What loading and unloading the plug-in library do, beside its exports.
#pragma once

// Library load: the SMS codec writes through the debugger logger.
void PluginLoad();
// Library unload (in DllMain, under the loader lock). No engine exists here: an engine keeps
// the library loaded. The client library's thread is left to remove the registered function,
// uninitialise and free the client library and end, outside this image and the loader lock.
void PluginUnload();
// Releases the retained client library the way an unload outside the loader lock can:
// callback removed, uninitialised, freed, and its thread ended.
void ReleaseClientLibrary();
