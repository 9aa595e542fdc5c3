// Calls of LogMessage that check_log_format.sh compiles: as written they are sound and build;
// with MESSAGE_AS_FORMAT or WRONG_ARGUMENT defined, one of them is a fault the compiler must
// refuse.
#include "log/log_file.h"

void LogSomething(const char* message, HRESULT hr)
{
    LogMessage(0, "Connect<OnConnection> ==> %s", message);
    LogMessage(0, "Connect<OnConnection> ==> [HRES %08x]", static_cast<unsigned>(hr));
#ifdef MESSAGE_AS_FORMAT
    LogMessage(0, message); // a '%' in the message would read arguments that are not there
#endif
#ifdef WRONG_ARGUMENT
    LogMessage(0, "Connect<OnConnection> ==> %s", hr);
#endif
}
