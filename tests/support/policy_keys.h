// Test helpers for the policy keys (SOFTWARE\Policies\Vantrel under HKEY_LOCAL_MACHINE and
// HKEY_CURRENT_USER), where Group Policy writes what an administrator enforces.
#pragma once

#include <windows.h>

#include <string>

// Removes "SOFTWARE\Policies\Vantrel" under both roots.
void DeletePolicyKeys();
bool PolicyKeyExists(HKEY root);
// Creates the policy key under root and sets a value of any type with raw bytes.
void SetRawPolicy(HKEY root, const char* name, DWORD type, const void* data, DWORD size);
void SetStringPolicy(HKEY root, const char* name, const char* text);
void SetDwordPolicy(HKEY root, const char* name, DWORD number);

// A policy value as a test table writes it: REG_DWORD of the number, or REG_SZ of its text.
enum class PolicyType { Dword, String };
void SetPolicy(HKEY root, const char* name, PolicyType type, DWORD number);
const char* PolicyTypeName(PolicyType type);

// Where a test table puts an enforced value: the machine's policy, the user's, or both (the
// machine's then holds the value and the user's another one, which must lose).
enum class PolicySource { Machine, User, Both };
const char* PolicySourceName(PolicySource source);
// Writes number for name from source; with Both the user's policy gets `losing`.
void EnforcePolicy(PolicySource source, const char* name, PolicyType type, DWORD number, DWORD losing);

// Deletes the policy keys when made and when gone, so that no test leaves one behind.
class ScopedPolicyKeys {
public:
    ScopedPolicyKeys() { DeletePolicyKeys(); }
    ~ScopedPolicyKeys() { DeletePolicyKeys(); }
    ScopedPolicyKeys(const ScopedPolicyKeys&) = delete;
    ScopedPolicyKeys& operator=(const ScopedPolicyKeys&) = delete;
};
