LWM0
NumChannels 1
