// The upgrade run: decide and burn every adapter in table order, then the verdict.
#pragma once

int fwupg();
