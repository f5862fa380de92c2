/* Product identity, shared by the resource script and the code. Plain C
   preprocessor only: windres reads this file too. */
#ifndef SHEENWRIGHT_PRODUCT_H
#define SHEENWRIGHT_PRODUCT_H

#define SHEENWRIGHT_TITLE "Sheenwright"
#define SHEENWRIGHT_WINDOW_CLASS "Sheenwright.frmMain"
#define SHEENWRIGHT_COMPANY "Corvatt"
#define SHEENWRIGHT_COMMENTS "Upgrade all your programs to the new Windows XP style."
#define SHEENWRIGHT_EXE_NAME "Sheenwright.exe"
#define SHEENWRIGHT_VERSION_NUMBERS 1, 0, 0, 1
#define SHEENWRIGHT_VERSION_TEXT "1.00.0001"

#endif
