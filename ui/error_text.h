#pragma once

#include <QString>

#include <exception>

// The Chinese text of an error that reaches the default error box: what
// failed, with the technical detail (file name, system error text) after it.
QString ErrorText(const std::exception& error);
