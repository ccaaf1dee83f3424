// What loading and unloading the plug-in library do, beside its exports.
#pragma once

// Library load: the SMS codec writes through the debugger logger.
void PluginLoad();
// Library unload (in DllMain, under the loader lock): the engine is torn down first, then
// the client library loses the registered function and is left loaded, since its COM state
// cannot be undone there.
void PluginUnload();
// Releases the retained client library the way an unload outside the loader lock can:
// callback removed, uninitialised, freed.
void ReleaseClientLibrary();
