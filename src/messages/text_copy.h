// Copies of strings read from the payload, which is released before the tables that hold them.
#pragma once

// A new[] copy of `text`, or nullptr when memory runs out (no exceptions in the updater).
char* copyText(const char* text);
