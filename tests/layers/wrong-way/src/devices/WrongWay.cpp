// A feature reaching up into the app: the layer check must refuse this file.
#include "app/HestioAppDelegate.h"
#include "model/Device.h"
