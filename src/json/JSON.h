#pragma once

// The JSON codec in one include: values, containers, decoder, serializer.
#include "json/Array.h"
#include "json/Decoder.h"
#include "json/Dictionary.h"
#include "json/Error.h"
#include "json/Exceptions.h"
#include "json/Serializer.h"
#include "json/Value.h"
