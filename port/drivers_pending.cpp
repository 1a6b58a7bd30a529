// Temporary: the real-port drivers are being written in their own files.
#include "port/driver.h"
namespace lpt {
std::unique_ptr<Driver> openPpdev(const std::string& node) {
    throw PortError({"cannot open " + node, "the ppdev driver is not built yet", "", ""});
}
std::unique_ptr<Driver> openDirect(int) {
    throw PortError({"cannot open direct I/O", "the direct I/O driver is not built yet", "", ""});
}
std::unique_ptr<Driver> openDll(const std::string&) {
    throw PortError({"cannot load the port-I/O DLL", "not on this system", "", ""});
}
} // namespace lpt
