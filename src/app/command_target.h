#pragma once

// A window or object that handles command ids (menu items, tool bar buttons, tray menu).
class CCommandTarget {
  public:
    virtual ~CCommandTarget() = default;
    // Returns whether the command was handled.
    virtual bool onCommand(int id) = 0;
};
