/* A console helper for the end-to-end tests: prints a shortcut's AppUserModelID as the shell
 * reads it back (IShellLinkW, IPersistFile::Load, IPropertyStore::GetValue), or why it can't.
 * Usage: link_probe.exe SHORTCUT.lnk. Prints "id=...", or the failed call and its HRESULT; exits 0
 * once the shortcut is loaded. */
#define COBJMACROS
#include <windows.h>
#include <shobjidl.h>
#include <propsys.h>
#include <stdio.h>

static const GUID clsid_shell_link = {0x00021401, 0, 0, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};
static const GUID iid_shell_link = {0x000214f9, 0, 0, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};
static const GUID iid_persist_file = {0x0000010b, 0, 0, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};
static const GUID iid_property_store = {0x886d8eeb, 0x8cf2, 0x4446, {0x8d, 0x02, 0xcd, 0xba, 0x1d, 0xbd, 0xcf, 0x99}};
static const PROPERTYKEY app_user_model_id = {
    {0x9f4c2855, 0x9f79, 0x4b39, {0xa8, 0xd0, 0xe1, 0xd4, 0x2d, 0xe1, 0xd5, 0xf3}}, 5};

int wmain(int argc, wchar_t** argv) {
    IShellLinkW* link = NULL;
    IPersistFile* file = NULL;
    IPropertyStore* store = NULL;
    PROPVARIANT value;
    HRESULT hr;
    int rc = 1;
    if (argc != 2) return 2;
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    PropVariantInit(&value);
    hr = CoCreateInstance(&clsid_shell_link, NULL, CLSCTX_INPROC_SERVER, &iid_shell_link, (void**)&link);
    if (FAILED(hr)) { printf("CoCreateInstance 0x%08lx\n", hr); goto done; }
    hr = IShellLinkW_QueryInterface(link, &iid_persist_file, (void**)&file);
    if (SUCCEEDED(hr)) hr = IPersistFile_Load(file, argv[1], STGM_READ);
    if (FAILED(hr)) { printf("Load 0x%08lx\n", hr); goto done; }
    hr = IShellLinkW_QueryInterface(link, &iid_property_store, (void**)&store);
    if (FAILED(hr)) { printf("QueryInterface(IPropertyStore) 0x%08lx\n", hr); goto done; }
    hr = IPropertyStore_GetValue(store, &app_user_model_id, &value);
    if (FAILED(hr)) printf("GetValue 0x%08lx\n", hr);
    else if (value.vt == VT_LPWSTR && value.pwszVal) {
        char utf8[1024];
        WideCharToMultiByte(CP_UTF8, 0, value.pwszVal, -1, utf8, sizeof utf8, NULL, NULL);
        printf("id=%s\n", utf8);
    } else {
        printf("vt=%u\n", value.vt);
    }
    rc = 0;
done:
    PropVariantClear(&value);
    if (store) IPropertyStore_Release(store);
    if (file) IPersistFile_Release(file);
    if (link) IShellLinkW_Release(link);
    CoUninitialize();
    return rc;
}
