// What Windows tells of a serial port besides its name: the name the device manager shows for
// it ("USB Serial Port (COM5)"), found among the devices of the Ports class by the port name that
// each keeps in its device key. A port without such a device (a virtual one, many under Wine)
// has none. Nothing here opens the port.
#include <windows.h>

#include <setupapi.h>

#include <cstdio>
#include <cwchar>

#include "link/port_list.h"
#include "base/text_win32.h"

namespace {

// The device setup class "Ports" (COM and LPT ports).
const GUID PORTS_CLASS = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

constexpr DWORD PORT_NAME_UNITS = 64;

// The port name a device keeps in its device key ("COM5"); false when it keeps none.
bool device_port_name(HDEVINFO set, SP_DEVINFO_DATA* info, wchar_t name[PORT_NAME_UNITS]) {
    HKEY key = SetupDiOpenDevRegKey(set, info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD type = 0;
    DWORD bytes = (PORT_NAME_UNITS - 1) * sizeof(wchar_t);
    const LONG read =
        RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &bytes);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || type != REG_SZ) {
        return false;
    }
    name[bytes / sizeof(wchar_t)] = 0;
    return true;
}

void find_friendly_name(const wchar_t* port, PortDetails* out) {
    HDEVINFO set = SetupDiGetClassDevsW(&PORTS_CLASS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &info); ++index) {
        wchar_t name[PORT_NAME_UNITS];
        if (!device_port_name(set, &info, name) || _wcsicmp(name, port) != 0) {
            continue;
        }
        wchar_t friendly[PORT_NAME_BYTES] = {};
        DWORD type = 0;
        if (SetupDiGetDeviceRegistryPropertyW(set, &info, SPDRP_FRIENDLYNAME, &type,
                                              reinterpret_cast<BYTE*>(friendly),
                                              sizeof friendly - sizeof(wchar_t), nullptr) &&
            type == REG_SZ &&
            !text_to_utf8(friendly, out->friendly_name, sizeof out->friendly_name)) {
            out->friendly_name[0] = 0;
        }
        break;
    }
    SetupDiDestroyDeviceInfoList(set);
}

} // namespace

bool port_details(const char* name, PortDetails* out) {
    *out = PortDetails{};
    wchar_t wide[PORT_NAME_BYTES];
    if (!text_to_wide(name, wide, PORT_NAME_BYTES)) {
        return false;
    }
    snprintf(out->device, sizeof out->device, "%s", name);
    find_friendly_name(wide, out);
    return true;
}
