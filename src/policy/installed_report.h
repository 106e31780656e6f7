// The installed firmware report (-c).
#pragma once

int show_current();
