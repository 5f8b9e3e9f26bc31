#pragma once

#include <string>

class udb_profile;

// the value forms of settings that both programs read. a value that does not read
// as its form is refused, never guessed: a mistyped option must not decide what
// happens to existing tables

// "0" or "1", blanks around ignored. an empty value leaves flag unchanged; false,
// flag unchanged, for any other text
bool setting_flag(const std::wstring& value, bool& flag);
// one decimal digit, blanks around ignored; empty and other texts as setting_flag
bool setting_mode(const std::wstring& value, int& mode);
// a postgresql port: empty (0, the client library's default) or 1 to 65535 in
// decimal digits; false, port unchanged, for any other text
bool setting_pgs_port(const std::string& text, int& port);
// an oracle port: empty (the listener's default, 1521) or as a postgresql port
bool setting_oracle_port(const std::wstring& text);

// the message for what a loaded profile file says that its reader would not hear as
// written: the first line whose section or key differs from a known one only in case or
// surrounding blanks (it would be ignored), else a key given two values that read
// differently (blanks around a 0/1 or digit value are not part of it); empty when none
std::wstring profile_read_refusal(const udb_profile& profile);
// the message of profile_read_refusal, else for the first value of the profile that its
// key does not take, in key order; empty when every value reads
std::wstring profile_value_refusal(const udb_profile& profile);
// the message for the first entry that a profile file could not keep as it is (why,
// and for a password what to do instead); empty when the profile can be written
std::wstring profile_store_refusal(const udb_profile& profile);
// the message for a profile file that could not be written: its path and the system's
// reason for the errno value
std::wstring profile_write_refusal(const std::wstring& path, int error);
