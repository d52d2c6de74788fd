#include "qirasqldialect.h"
