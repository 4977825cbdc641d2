// The registrar: runs the registry scripts the program carries (resource type
// "RGS") to enter the automation server in the registry or take it out.
//
// A script is Shift_JIS text, one statement a line:
//   [ForceRemove|NoRemove|Delete] name [= s 'text' | = d number]   a key
//   val name = s 'text' | val name = d number                         a value
//   {  and  }  alone                                                   a block of the last key
//   // ...                                                             a comment
// Top-level keys name a root (HKCR, HKCU, HKLM, HKEY_USERS or their long
// names). In names and values %MODULE% is the path of the program, any
// other %NAME% an environment variable, %% a percent sign.
#pragma once
#include <windows.h>

#include <string_view>

enum class RegistrarMode { Register, Unregister };

// Runs `script`; the result of its last executed statement, or E_FAIL for a
// line that fits no statement (the run stops there).
HRESULT RunRegistryScriptText(std::string_view script, const wchar_t* modulePath, RegistrarMode mode);
// Runs the "RGS" resource `number` of `module`.
HRESULT RunRegistryScript(HMODULE module, int number, RegistrarMode mode);
