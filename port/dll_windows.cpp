// SPDX-License-Identifier: MIT
// The Windows driver: a port-I/O DLL with the InpOut32 interface (inpout32.dll,
// inpoutx64.dll or a compatible one), whose kernel driver does the accesses.
// The DLL is loaded at the first register access, and both its entry points
// are resolved then: a DLL that lacks either is refused as a whole, before
// any access. The registers 0x378..0x37A are passed to it as those of the
// port at the chosen base.
#include "port/driver.h"
#include "port/driver_state.h"
#include "port/manual.h"
#include "port/numbers.h"
#include "port/ports.h"
#include "port/windows_text.h"

#include <filesystem>
#include <windows.h>

namespace lpt {

namespace {

constexpr const char* kSection = kPageWindows;
#ifdef _WIN64
constexpr const char* kDefaultDll = "inpoutx64.dll";
constexpr const char* kWordSize = "64-bit";
#else
constexpr const char* kDefaultDll = "inpout32.dll";
constexpr const char* kWordSize = "32-bit";
#endif

// Exported undecorated; __stdcall matters in a 32-bit build only.
using Out32Fn = void(__stdcall*)(short, short);
using Inp32Fn = short(__stdcall*)(short);
using IsDriverOpenFn = BOOL(__stdcall*)();

std::string program() {
    return programName() + ".exe";
}

std::string placeFix() {
    return "put " + std::string(kDefaultDll) + " beside " + program() + " (a 64-bit " + program() +
           " needs inpoutx64.dll, a 32-bit one inpout32.dll), or name the DLL with " +
           "PARPORT=dll:PATH";
}

// The InpOut DLLs export IsInpOutDriverOpen to say whether their kernel
// driver runs; without it Out32 does nothing and Inp32 returns 0. Why it
// does not run is read from this PC (driver_state.h).
PortFailure driverNotRunning(const std::string& dll) {
    const DriverVerdict v = explainDriver(readDriverFacts(), program());
    return {"the port-I/O DLL " + dll + " is loaded, but its kernel driver is not running", v.cause,
            v.fix, kPageDllDriver};
}

class DllPort final : public Driver {
public:
    DllPort(std::string name, int base) : name_(std::move(name)), base_(base) {}
    ~DllPort() override {
        if (module_)
            FreeLibrary(module_);
    }
    DllPort(const DllPort&) = delete;
    DllPort& operator=(const DllPort&) = delete;

    std::string description() const override {
        return "port-I/O DLL " + name_ + " at " + hexAddress(static_cast<unsigned>(base_));
    }

    void write(Register reg, std::uint8_t value) override {
        load();
        out_(address(reg), value);
    }

    std::uint8_t read(Register reg) override {
        load();
        return static_cast<std::uint8_t>(inp_(address(reg)) & 0xFF);
    }

    // For lptport ports: the file loaded and whether its driver runs.
    std::string state() {
        loadModule();
        wchar_t file[MAX_PATH * 4];
        const DWORD n = GetModuleFileNameW(module_, file, MAX_PATH * 4);
        const std::string text = n > 0 && n < MAX_PATH * 4 ? narrow(std::wstring(file, n)) : name_;
        switch (driverOpen()) {
        case 1:
            return text + ", its driver running";
        case 0: {
            const DriverFacts facts = readDriverFacts();
            const DriverVerdict v = explainDriver(facts, program());
            return text + ", its driver NOT running: " + v.cause + ". Fix: " + v.fix +
                   "\ndriver: " + describeFacts(facts);
        }
        default:
            return text + ", which cannot say whether its driver runs (no IsInpOutDriverOpen)";
        }
    }

private:
    short address(Register reg) const { return static_cast<short>(base_ + static_cast<int>(reg)); }

    // The entry point name as a Fn, or nullptr when the DLL lacks it. Through
    // void (*)(), the type that stands for any function in a cast.
    template <class Fn> Fn entry(const char* name) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
    }

    // 1 when the DLL says its driver runs, 0 when it says not, -1 when it
    // cannot say (no IsInpOutDriverOpen).
    int driverOpen() const {
        const auto isOpen = entry<IsDriverOpenFn>("IsInpOutDriverOpen");
        return isOpen ? (isOpen() ? 1 : 0) : -1;
    }

    // Loads the DLL and resolves both entry points, once: no access is made
    // through a DLL that lacks one, or whose driver is not running.
    void load() {
        if (out_)
            return;
        loadModule();
        const auto out = entry<Out32Fn>("Out32");
        const auto inp = entry<Inp32Fn>("Inp32");
        if (!out || !inp) {
            unload();
            throw PortError(
                {"cannot use the port-I/O DLL " + name_,
                 std::string("it has no entry point ") + (out ? "Inp32" : "Out32"),
                 "use an InpOut-compatible DLL that exports Out32 and Inp32: " + placeFix(),
                 kSection});
        }
        if (driverOpen() == 0) {
            unload();
            throw PortError(driverNotRunning(name_));
        }
        out_ = out;
        inp_ = inp;
    }

    void unload() {
        FreeLibrary(module_);
        module_ = nullptr;
    }

    void loadModule() {
        if (module_)
            return;
        // A bare name is looked for beside the program and in System32 only,
        // never in the working directory, where anyone could leave a DLL.
        const bool bare = name_.find_first_of("/\\:") == std::string::npos;
        const std::wstring wide = widen(name_);
        if (bare) {
            module_ =
                LoadLibraryExW(wide.c_str(), nullptr,
                               LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
        } else {
            wchar_t full[MAX_PATH * 4];
            const DWORD n = GetFullPathNameW(wide.c_str(), MAX_PATH * 4, full, nullptr);
            if (n > 0 && n < MAX_PATH * 4)
                module_ = LoadLibraryExW(
                    full, nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
            else
                SetLastError(ERROR_PATH_NOT_FOUND);
        }
        if (module_)
            return;
        const DWORD err = GetLastError();
        PortFailure f{"cannot load the port-I/O DLL " + name_, systemMessage(err), placeFix(),
                      kSection};
        switch (err) {
        case ERROR_MOD_NOT_FOUND:
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            f.cause = bare ? "not found beside " + program() + " or in the system folder"
                           : std::string("not found (or a DLL it needs is missing)");
            break;
        case ERROR_BAD_EXE_FORMAT:
            f.cause = "it is not a " + std::string(kWordSize) + " DLL (this " + program() + " is " +
                      kWordSize + ")";
            break;
        default:
            break;
        }
        throw PortError(std::move(f));
    }

    std::string name_;
    int base_;
    HMODULE module_ = nullptr;
    Out32Fn out_ = nullptr;
    Inp32Fn inp_ = nullptr;
};

} // namespace

DefaultDll findDefaultDll() {
    DefaultDll dll{DefaultDll::Place::Missing, kDefaultDll, program(), "", ""};
    // The two folders load() searches for a bare name, in its order.
    auto holds = [&](const std::filesystem::path& folder) {
        std::error_code ec;
        return !folder.empty() && std::filesystem::exists(folder / kDefaultDll, ec);
    };
    wchar_t system[MAX_PATH * 4];
    const DWORD n = GetSystemDirectoryW(system, MAX_PATH * 4);
    // Inside liblptport.dll the program is the script's (python.exe): the
    // library's own folder, where the zip keeps it beside the programs, is
    // searched too, and the DLL found there loaded by its full path.
    HMODULE self = nullptr;
    std::filesystem::path library;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&findDefaultDll), &self) &&
        self != GetModuleHandleW(nullptr)) {
        wchar_t file[MAX_PATH * 4];
        const DWORD m = GetModuleFileNameW(self, file, MAX_PATH * 4);
        if (m > 0 && m < MAX_PATH * 4) {
            library = std::filesystem::path(std::wstring(file, m));
            dll.library = library.filename().string();
        }
    }
    if (holds(programFolder())) {
        dll.place = DefaultDll::Place::BesideProgram;
    } else if (!library.empty() && holds(library.parent_path())) {
        dll.place = DefaultDll::Place::BesideLibrary;
        dll.path = (library.parent_path() / kDefaultDll).string();
    } else if (n > 0 && n < MAX_PATH * 4 && holds(std::wstring(system, n))) {
        dll.place = DefaultDll::Place::SystemFolder;
    }
    return dll;
}

std::unique_ptr<Driver> openDll(const std::string& path, int base) {
    return std::make_unique<DllPort>(path.empty() ? kDefaultDll : path, base);
}

std::string portIoDllState(const PortSpec& unset) {
    // The DLL of the port --port or PARPORT names, where one is named.
    PortSpec spec = unset;
    try {
        if (const char* chosen = chosenPortValue(); chosen && *chosen)
            spec = parsePortSpec(chosen);
    } catch (const PortError& e) {
        return "port-I/O DLL: " + e.failure().message();
    }
    const bool named = spec.kind == PortSpec::Kind::Dll && !spec.path.empty();
    if (!named) {
        if (const DefaultDll dll = findDefaultDll(); dll.place == DefaultDll::Place::Missing)
            return "port-I/O DLL: " + describeDll(dll) + "; a real port needs one: " + placeFix();
    }
    try {
        return "port-I/O DLL: " + DllPort(named ? spec.path : kDefaultDll, spec.base).state();
    } catch (const PortError& e) {
        return "port-I/O DLL: " + e.failure().message();
    }
}

} // namespace lpt
