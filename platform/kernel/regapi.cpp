// The Reg* functions of COREDLL over the device registry.
#include "internal.h"

#include <cstring>

using namespace ce::kernel;

namespace {

// An open key: its root and its path of names (the key itself is looked up on each use, so a
// registry re-read from disk never leaves a handle pointing at freed memory).
class KeyObject : public KernelObject {
  public:
    int root = 0;
    std::vector<std::u16string> path;
};

struct KeyRef {
    int root = -1;
    std::vector<std::u16string> path;
};

int predefinedRoot(HKEY h) {
    if (h == HKEY_CLASSES_ROOT)
        return kClassesRoot;
    if (h == HKEY_CURRENT_USER)
        return kCurrentUser;
    if (h == HKEY_LOCAL_MACHINE)
        return kLocalMachine;
    if (h == HKEY_USERS)
        return kUsers;
    return -1;
}

bool keyRef(HKEY h, KeyRef& out) {
    int root = predefinedRoot(h);
    if (root >= 0) {
        out.root = root;
        out.path.clear();
        return true;
    }
    ce::Device* d = ce::Device::current();
    KeyObject* k = d ? d->impl().handles.get<KeyObject>(h) : nullptr;
    if (!k)
        return false;
    out.root = k->root;
    out.path = k->path;
    return true;
}

void appendPath(std::vector<std::u16string>& path, const WCHAR* sub) {
    if (!sub)
        return;
    std::u16string_view s(sub);
    size_t i = 0;
    while (i < s.size()) {
        size_t j = s.find(u'\\', i);
        if (j == std::u16string_view::npos)
            j = s.size();
        if (j > i)
            path.emplace_back(s.substr(i, j - i));
        i = j + 1;
    }
}

// The key a reference names, or nullptr when it is gone; names (when given) receives the names
// the keys on the way are stored under, for the text of a change.
RegKey* walk(const RegRoots& roots, const KeyRef& ref,
             std::vector<std::u16string>* names = nullptr) {
    RegKey* k = const_cast<RegKey*>(&roots[ref.root]);
    if (names)
        names->clear();
    for (const auto& name : ref.path) {
        k = k->subkey(name);
        if (!k)
            return nullptr;
        if (names)
            names->push_back(k->name);
    }
    return k;
}

// Keys a program may make: names the device allows and the .reg text holds, nested no deeper than
// the device allows. Only the names from `from` on are new.
bool creatable(const KeyRef& ref, size_t from) {
    if (ref.path.size() > kMaxKeyDepth)
        return false;
    for (size_t i = from; i < ref.path.size(); ++i) {
        if (ref.path[i].size() > kMaxKeyName || !regHoldsKeyName(ref.path[i]))
            return false;
    }
    return true;
}

ce::kernel::Registry* registry() {
    ce::Device* d = ce::Device::current();
    return d ? &d->impl().registry : nullptr;
}

HKEY newHandle(const KeyRef& ref) {
    auto obj = std::make_unique<KeyObject>();
    obj->root = ref.root;
    obj->path = ref.path;
    return reinterpret_cast<HKEY>(ce::Device::current()->impl().handles.add(std::move(obj)));
}

// The key of a handle, for the functions that work on one key.
LONG withKey(HKEY h, const std::function<LONG(RegKey&)>& fn) {
    KeyRef ref;
    Registry* reg = registry();
    if (!reg || !keyRef(h, ref))
        return ERROR_INVALID_HANDLE;
    return reg->read([&](const RegRoots& roots) -> LONG {
        RegKey* k = walk(roots, ref);
        return k ? fn(*k) : ERROR_KEY_DELETED;
    });
}

LONG copyName(const std::u16string& name, LPWSTR buffer, LPDWORD cch) {
    if (!buffer || !cch)
        return ERROR_INVALID_PARAMETER;
    if (*cch <= name.size())
        return ERROR_MORE_DATA;
    memcpy(buffer, name.data(), name.size() * sizeof(WCHAR));
    buffer[name.size()] = 0;
    *cch = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

LONG copyData(const RegValue& v, LPDWORD type, LPBYTE data, LPDWORD cb) {
    if (type)
        *type = v.type;
    DWORD size = static_cast<DWORD>(v.data.size());
    if (!data) {
        if (cb)
            *cb = size;
        return ERROR_SUCCESS;
    }
    if (!cb)
        return ERROR_INVALID_PARAMETER;
    if (*cb < size) {
        *cb = size;
        return ERROR_MORE_DATA;
    }
    if (size)
        memcpy(data, v.data.data(), size);
    *cb = size;
    return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

CEAPI LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR subKey, DWORD, REGSAM, PHKEY result) {
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    KeyRef ref;
    Registry* reg = registry();
    if (!reg || !keyRef(hKey, ref))
        return ERROR_INVALID_HANDLE;
    appendPath(ref.path, subKey);
    LONG rc = reg->read([&](const RegRoots& roots) -> LONG {
        return walk(roots, ref) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
    if (rc == ERROR_SUCCESS)
        *result = newHandle(ref);
    return rc;
}

CEAPI LONG WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM,
                                  LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    KeyRef ref;
    Registry* reg = registry();
    if (!reg || !keyRef(hKey, ref))
        return ERROR_INVALID_HANDLE;
    size_t base = ref.path.size();
    appendPath(ref.path, subKey);
    if (!creatable(ref, base))
        return ERROR_INVALID_PARAMETER;
    bool created = false;
    LONG rc = reg->write([&](const RegRoots& roots, std::string& change) -> LONG {
        const RegKey* k = &roots[ref.root];
        std::vector<std::u16string> names;
        for (size_t i = 0; i < ref.path.size(); ++i) {
            const RegKey* sub = k->subkey(ref.path[i]);
            if (!sub) {
                if (i < base)
                    return ERROR_KEY_DELETED;  // the handle's own key is gone
                names.insert(names.end(), ref.path.begin() + static_cast<ptrdiff_t>(i),
                             ref.path.end());
                change = regKeyLine(ref.root, names);
                created = true;
                break;
            }
            names.push_back(sub->name);
            k = sub;
        }
        return ERROR_SUCCESS;
    });
    if (rc != ERROR_SUCCESS)
        return rc;
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = newHandle(ref);
    return ERROR_SUCCESS;
}

CEAPI LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data,
                                   LPDWORD cb) {
    if (data && !cb)
        return ERROR_INVALID_PARAMETER;
    std::u16string_view n = name ? std::u16string_view(name) : std::u16string_view();
    return withKey(hKey, [&](RegKey& k) -> LONG {
        RegValue* v = k.value(n);
        return v ? copyData(*v, type, data, cb) : ERROR_FILE_NOT_FOUND;
    });
}

CEAPI LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR name, DWORD, DWORD type, const BYTE* data,
                                 DWORD cb) {
    if (!data && cb)
        return ERROR_INVALID_PARAMETER;
    KeyRef ref;
    Registry* reg = registry();
    if (!reg || !keyRef(hKey, ref))
        return ERROR_INVALID_HANDLE;
    RegValue v;
    v.name = name ? name : u"";
    if (v.name.size() > kMaxValueName || !regHoldsValueName(v.name))
        return ERROR_INVALID_PARAMETER;
    v.type = type;
    if (cb)
        v.data.assign(data, data + cb);
    // Strings stored without their terminator get one, so every reader finds a terminated
    // string; the stored size then counts it.
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && v.data.size() % 2 == 0 &&
        (v.data.size() < 2 || v.data[v.data.size() - 1] || v.data[v.data.size() - 2])) {
        v.data.push_back(0);
        v.data.push_back(0);
    }
    return reg->write([&](const RegRoots& roots, std::string& change) -> LONG {
        std::vector<std::u16string> names;
        RegKey* k = walk(roots, ref, &names);
        if (!k)
            return ERROR_KEY_DELETED;
        const RegValue* old = k->value(v.name);
        if (old && old->type == v.type && old->data == v.data)
            return ERROR_SUCCESS;
        if (old)
            v.name = old->name;  // a value keeps the name it was made with
        change = regKeyLine(ref.root, names) + regValueLine(v);
        return ERROR_SUCCESS;
    });
}

CEAPI LONG WINAPI RegEnumKeyExW(HKEY hKey, DWORD index, LPWSTR name, LPDWORD cchName, LPDWORD,
                                LPWSTR className, LPDWORD cchClass, PFILETIME lastWrite) {
    return withKey(hKey, [&](RegKey& k) -> LONG {
        if (index >= k.subkeys.size())
            return ERROR_NO_MORE_ITEMS;
        LONG rc = copyName(k.subkeys[index].name, name, cchName);
        if (rc != ERROR_SUCCESS)
            return rc;
        if (className && cchClass && *cchClass)
            className[0] = 0;
        if (cchClass)
            *cchClass = 0;
        if (lastWrite)
            *lastWrite = FILETIME{0, 0};
        return ERROR_SUCCESS;
    });
}

CEAPI LONG WINAPI RegEnumValueW(HKEY hKey, DWORD index, LPWSTR name, LPDWORD cchName, LPDWORD,
                                LPDWORD type, LPBYTE data, LPDWORD cb) {
    if (data && !cb)
        return ERROR_INVALID_PARAMETER;
    return withKey(hKey, [&](RegKey& k) -> LONG {
        if (index >= k.values.size())
            return ERROR_NO_MORE_ITEMS;
        const RegValue& v = k.values[index];
        LONG rc = copyName(v.name, name, cchName);
        if (rc != ERROR_SUCCESS)
            return rc;
        return copyData(v, type, data, cb);
    });
}

CEAPI LONG WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR className, LPDWORD cchClass, LPDWORD,
                                   LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD maxClassLen,
                                   LPDWORD values, LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                                   LPDWORD securityDescriptor, PFILETIME lastWrite) {
    return withKey(hKey, [&](RegKey& k) -> LONG {
        if (className && cchClass && *cchClass)
            className[0] = 0;
        if (cchClass)
            *cchClass = 0;
        if (subKeys)
            *subKeys = static_cast<DWORD>(k.subkeys.size());
        if (values)
            *values = static_cast<DWORD>(k.values.size());
        DWORD maxKey = 0, maxName = 0, maxData = 0;
        for (const auto& s : k.subkeys)
            maxKey = std::max(maxKey, static_cast<DWORD>(s.name.size()));
        for (const auto& v : k.values) {
            maxName = std::max(maxName, static_cast<DWORD>(v.name.size()));
            maxData = std::max(maxData, static_cast<DWORD>(v.data.size()));
        }
        if (maxSubKeyLen)
            *maxSubKeyLen = maxKey;
        if (maxClassLen)
            *maxClassLen = 0;
        if (maxValueNameLen)
            *maxValueNameLen = maxName;
        if (maxValueLen)
            *maxValueLen = maxData;
        if (securityDescriptor)
            *securityDescriptor = 0;
        if (lastWrite)
            *lastWrite = FILETIME{0, 0};
        return ERROR_SUCCESS;
    });
}

CEAPI LONG WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR subKey) {
    KeyRef ref;
    Registry* reg = registry();
    if (!reg || !keyRef(hKey, ref))
        return ERROR_INVALID_HANDLE;
    appendPath(ref.path, subKey);
    if (ref.path.empty())
        return ERROR_ACCESS_DENIED;  // a root key stays
    return reg->write([&](const RegRoots& roots, std::string& change) -> LONG {
        KeyRef parent = ref;
        parent.path.pop_back();
        std::vector<std::u16string> names;
        RegKey* k = walk(roots, parent, &names);
        const RegKey* gone = k ? k->subkey(ref.path.back()) : nullptr;
        if (!gone)
            return ERROR_FILE_NOT_FOUND;
        names.push_back(gone->name);
        change = regKeyLine(ref.root, names, true);
        return ERROR_SUCCESS;
    });
}

CEAPI LONG WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR name) {
    KeyRef ref;
    Registry* reg = registry();
    if (!reg || !keyRef(hKey, ref))
        return ERROR_INVALID_HANDLE;
    std::u16string n = name ? name : u"";
    return reg->write([&](const RegRoots& roots, std::string& change) -> LONG {
        std::vector<std::u16string> names;
        RegKey* k = walk(roots, ref, &names);
        if (!k)
            return ERROR_KEY_DELETED;
        const RegValue* gone = k->value(n);
        if (!gone)
            return ERROR_FILE_NOT_FOUND;
        change = regKeyLine(ref.root, names) + regValueRemovalLine(gone->name);
        return ERROR_SUCCESS;
    });
}

CEAPI LONG WINAPI RegCloseKey(HKEY hKey) {
    if (predefinedRoot(hKey) >= 0)
        return ERROR_SUCCESS;
    ce::Device* d = ce::Device::current();
    if (!d || !d->impl().handles.get<KeyObject>(hKey))
        return ERROR_INVALID_HANDLE;
    d->impl().handles.close(hKey);
    return ERROR_SUCCESS;
}

// Every change is in the journal when its call returns (a program killed afterwards loses
// nothing); this also puts the journal on the disk itself, as Windows CE writes its registry to
// storage when it is flushed.
CEAPI LONG WINAPI RegFlushKey(HKEY hKey) {
    KeyRef ref;
    Registry* reg = registry();
    if (!reg || !keyRef(hKey, ref))
        return ERROR_INVALID_HANDLE;
    reg->sync();
    return ERROR_SUCCESS;
}

}  // extern "C"
