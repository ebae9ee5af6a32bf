// Registry contents shaped like those of a real Pocket PC, as .reg text sections to append to a
// device's registry.reg (after "Windows Registry Editor Version 5.00"; no program of the device
// may be running meanwhile).
#pragma once

#include <filesystem>
#include <string>

namespace reggen {

// COM classes under HKEY_CLASSES_ROOT\CLSID: each {GUID} key holds its class name and an
// InprocServer32 subkey with the server's path and threading model (two keys per class).
std::string classIds(int count);
// File types under HKEY_CLASSES_ROOT: ".ext" keys with their type name and content type.
std::string extensions(int count);
// Installed applications under HKEY_LOCAL_MACHINE\Software\Apps, numbered from `first`, each
// with an InstallDir "\Program Files\Vendor App N" (which nothing creates: they are orphans).
std::string applications(int first, int count);
// `count` keys directly under HKEY_LOCAL_MACHINE\Software\Flat, about 100 bytes of text each.
std::string flatKeys(int count);

// Appends text to DIR/registry.reg. Throws std::runtime_error when it cannot.
void appendToRegistry(const std::filesystem::path& device, const std::string& text);

}  // namespace reggen
