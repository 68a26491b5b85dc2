#pragma once
#include <string>

// Reads the six manifest values (install.rdf's six for a legacy package)
// with the general-purpose libraries; answers how many were found and sets
// `name` to the add-on's name.
int PeerRead(const char* path, std::string& name);
