// Tests that read the environment set it through this, on every system.
#pragma once

// Sets `name` to the UTF-8 text `value`, or removes it when `value` is null.
void SetEnvironment(const char* name, const char* value);
