// placeholder until the stand-in lands
