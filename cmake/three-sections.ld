/* GNU ld: lays the image out in as few sections as it can:
   .text, read-only and executable: code, constants, the unwind data of x86-64 and the import tables (the
          loader unprotects the import address table while it binds it, and it is read-only from then on);
   .pdata, read-only, x86-64 only: the function table of the exception directory, which ld fills from the
          section of this name alone;
   .bss, writable, not in the file: the zero-filled state;
   .rsrc, read-only: the manifest and the version resource, which ld takes for the resource directory from the
          section of this name alone;
   .reloc: the base relocations. */
SECTIONS
{
  . = SIZEOF_HEADERS;
  . = ALIGN(__section_alignment__);
  .text __image_base__ + __section_alignment__ :
  {
    *(.text)
    *(SORT(.text$*))
    *(.text.*)
    *(.rdata)
    *(SORT(.rdata$*))
    *(.rdata.*)
    *(.xdata)
    /* ld fills the import and import-address directories from these symbols when there is no .idata section. */
    ".idata$2" = ABSOLUTE(.) - __image_base__;
    KEEP (SORT(*)(.idata$2))
    KEEP (SORT(*)(.idata$3))
    /* These zeroes end the import directory. */
    LONG (0); LONG (0); LONG (0); LONG (0); LONG (0);
    ".idata$4" = ABSOLUTE(.) - __image_base__;
    KEEP (SORT(*)(.idata$4))
    ".idata$5" = ABSOLUTE(.) - __image_base__;
    __IAT_start__ = .;
    KEEP (SORT(*)(.idata$5))
    __IAT_end__ = .;
    ".idata$6" = ABSOLUTE(.) - __image_base__;
    KEEP (SORT(*)(.idata$6))
    KEEP (SORT(*)(.idata$7))
  }
  .pdata BLOCK(__section_alignment__) :
  {
    KEEP (*(.pdata))
  }
  .bss BLOCK(__section_alignment__) :
  {
    *(.bss)
    *(SORT(.bss$*))
    *(.bss.*)
    *(COMMON)
  }
  /DISCARD/ :
  {
    *(.debug$*)
    *(.drectve)
    *(.note.GNU-stack)
    *(.gnu.lto_*)
    *(.eh_frame*)
  }
  .rsrc BLOCK(__section_alignment__) :
  {
    *(.rsrc)
    *(SORT(.rsrc$*))
  }
  .reloc BLOCK(__section_alignment__) :
  {
    *(.reloc)
  }
}
