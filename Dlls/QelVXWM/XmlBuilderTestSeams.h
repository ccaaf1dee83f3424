// Test-only control of the builder: the class Open creates (null: the DOM's own), and a
// document text that get_xml refuses with the given result (S_OK: none refused).
#pragma once
#include <windows.h>

void XmlBuilderTestSetDocumentClass(const CLSID* clsid);
void XmlBuilderTestFailGetXml(HRESULT result);
