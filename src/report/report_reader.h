// The discovery report reader and replay (-u).
#pragma once

int read_discovery_report();
