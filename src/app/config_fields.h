#pragma once
// The configuration window's fields as "Gravar" and "Salvar" take them: checked first, so
// that neither writes a value the user did not type.

#include "logger/config_values.h"

// `config_values` with the window's fields over it, into `values`. A field that is not a
// number is shown (caption "Erro", naming the field and what it accepts) and focused;
// false then, and nothing is taken.
bool TakeCheckedConfigFields(ConfigValues& values);
