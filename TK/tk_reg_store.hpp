#pragma once

// the registry of this platform: a per-user file store. a key below
// HKEY_CURRENT_USER\Software is the file ${XDG_CONFIG_HOME:-$HOME/.config}/<path>.ini
// ("Software\Varnholt\Quilmot" -> Varnholt/Quilmot.ini), one typed value a line:
// name=dword:N or name=sz:text with '\\', '\r' and '\n' escaped.
// statuses and sizes follow the system registry; wide texts count sizeof(wchar_t)
// bytes per unit, the terminator included

#include <cstdint>

struct tk_reg_node;
using tk_hkey = tk_reg_node*;

extern const tk_hkey tk_hkey_current_user;

constexpr long tk_reg_ok = 0;
constexpr long tk_reg_not_found = 2;
constexpr long tk_reg_access_denied = 5;
constexpr long tk_reg_invalid_data = 13;
constexpr long tk_reg_invalid_parameter = 87;
constexpr long tk_reg_more_data = 234;

constexpr unsigned long tk_reg_type_sz = 1;
constexpr unsigned long tk_reg_type_dword = 4;

constexpr unsigned long tk_key_all_access = 0xF003F;

constexpr unsigned long tk_reg_created_new_key = 1;
constexpr unsigned long tk_reg_opened_existing_key = 2;

long tk_reg_create_key(tk_hkey root, const char* subkey, const char* cls, unsigned long options,
                       unsigned long access, const void* security, tk_hkey* result,
                       unsigned long* disposition);
long tk_reg_close_key(tk_hkey key);

// data null: only the size is asked for
long tk_reg_query_value(tk_hkey key, const char* name, unsigned long* type, void* data,
                        unsigned long* size);
long tk_reg_query_wvalue(tk_hkey key, const char* name, unsigned long* type, void* data,
                         unsigned long* size);

long tk_reg_set_value(tk_hkey key, const char* name, unsigned long type, const void* data,
                      unsigned long size);
long tk_reg_set_wvalue(tk_hkey key, const char* name, unsigned long type, const void* data,
                       unsigned long size);
