#include "Dispatcher.h"

namespace svcp {

Dispatcher& GetDispatcher() {
    static Dispatcher* dispatcher = new Dispatcher();
    return *dispatcher;
}

}  // namespace svcp
