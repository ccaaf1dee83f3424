// Compiled into every library of the build (cmake/QelDllRuntime.cmake). Each library
// carries its own static copy of the C++ runtime, whose emergency exception buffer (about
// 72 KB on x64) is allocated when the library loads and is otherwise never freed: every
// load and free of the library would leave one behind in the host process.
namespace __gnu_cxx {
void __freeres() throw();  // the runtime's own release of that buffer
}

namespace {

struct ReleaseAtUnload {
  ~ReleaseAtUnload() { __gnu_cxx::__freeres(); }
};

// Constructed before the library's other static objects, so destroyed after them: the
// buffer is released once nothing of the library can throw any more. Static objects are
// destroyed from the library's process-detach notification, under the loader lock: this
// only hands one block back to the C runtime's heap (no library load, no COM, no wait).
ReleaseAtUnload releaseAtUnload __attribute__((init_priority(101)));

}  // namespace
