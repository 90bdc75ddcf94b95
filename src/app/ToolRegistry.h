#pragma once

#include <QString>

// The maker's tool registry: the machine-wide list of Norvane programs other Norvane
// programs offer to start. One group per tool id under "Tools" of the machine-wide
// "Norvane" settings.

// `arguments` and `iconFile` may be null. `enabled` non-zero lists the tool as
// available. Returns false when the registry cannot be written.
bool NVNTL_RegisterTool(const QString& toolId, const QString& name, const QString& programPath,
                        const char* arguments, const char* iconFile, int enabled);

// Removes the tool; false when the registry cannot be written.
bool NVNTL_UnRegisterTool(const QString& toolId);
