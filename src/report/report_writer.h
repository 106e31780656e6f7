// The discovery report writer (-d).
#pragma once

int discover_HW();
