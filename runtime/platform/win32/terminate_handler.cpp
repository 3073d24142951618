// The handler that std::terminate calls. libstdc++'s default one names the pending exception's
// type, and for that links the whole C++ name demangler: about 45 KiB, an eighth of the stub, for
// a message this program never prints (no exception leaves a subsystem). Both end the process
// with abort(). Linked into the executable itself, not through the win32 library, so that it is
// chosen before libstdc++'s definition is looked for.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
