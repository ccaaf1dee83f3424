#include "PluginFixture.h"
