#pragma once

// Clears pending x87 exception flags and loads the x87 control word.
inline void LoadFpuControlWord(unsigned short word)
{
    __asm__ __volatile__("fnclex\n\tfldcw %0" : : "m"(word));
}

// Reads the x87 control word in force.
inline unsigned short StoreFpuControlWord()
{
    unsigned short word;
    __asm__ __volatile__("fnstcw %0" : "=m"(word));
    return word;
}

#if defined(__x86_64__)
// Loads MXCSR, the SSE unit's control and status register, with its exception flags cleared.
inline void LoadSseControlWord(unsigned int word)
{
    word &= ~0x3Fu;
    __asm__ __volatile__("ldmxcsr %0" : : "m"(word));
}

// Reads MXCSR.
inline unsigned int StoreSseControlWord()
{
    unsigned int word;
    __asm__ __volatile__("stmxcsr %0" : "=m"(word));
    return word;
}
#endif
