// The XML document library: element trees kept as TxmlDocument / TxmlNode,
// written and read as indented UTF-16 text or in the compact binary form,
// with typed values and the helpers that keep string lists and records.
#pragma once

#include "xml/xml_document.h"
#include "xml/xml_error.h"
#include "xml/xml_node.h"
#include "xml/xml_records.h"
#include "xml/xml_stream.h"
#include "xml/xml_string_lists.h"
