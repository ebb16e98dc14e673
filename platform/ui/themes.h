#pragma once
// Visual styles. This platform draws none: the theme service always reports them disabled, so
// every control takes its own, non-themed drawing path.

inline bool ThemesEnabled() { return false; }
