// Test-only control of the builder: the class Open creates (null: the DOM's own).
#pragma once
#include <windows.h>

void XmlBuilderTestSetDocumentClass(const CLSID* clsid);
