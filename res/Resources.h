#pragma once

#include <QIcon>
#include <QString>

namespace res {

// String table.
inline constexpr const char* kTooltip130 = "Quill Post";

inline constexpr int kIcon130 = 130;

// The program's icon (resource 130); empty for any other id.
QIcon IconById(int id);

// Makes the compiled-in resources available; call once before using IconById.
void InitResources();

} // namespace res
