LWMO
NumChannels -1
