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
